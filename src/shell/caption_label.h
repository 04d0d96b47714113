#pragma once
#include <QLabel>

namespace shell {

// A label whose caption change is an event, as the catalog path label needs.
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setCaption(const QString& text) {
        const bool changed = text != QLabel::text();
        setText(text);
        if (changed) emit captionChanged(text);
    }
    QString caption() const { return text(); }

signals:
    void captionChanged(const QString& text);
};

} // namespace shell
