#pragma once
#include <QImage>
#include <QSize>

#include <string>

namespace display {

// Loads a picture for a box of `box` pixels. JPEG files are decoded at the
// smallest of libjpeg-turbo's scales that still covers the box, which turns a
// 16-megapixel product into a few milliseconds of work; other formats go
// through Qt. A null image when the file is missing or unreadable. The last
// few pictures are kept while their files keep their size and time.
QImage LoadPicture(const std::string& path, QSize box);

} // namespace display
