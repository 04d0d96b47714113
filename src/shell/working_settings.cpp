#include "shell/working_settings.h"

#include <QLocale>

#include <cmath>

namespace shell {

namespace {
QLocale userLocale() {
    QLocale l = QLocale::system();
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}
} // namespace

QString NumberText(double value) {
    return userLocale().toString(value, 'f', QLocale::FloatingPointShortest);
}

bool ParseNumber(const QString& text, double& value) {
    bool ok = false;
    const double v = userLocale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool ParseWholeNumber(const QString& text, int& value) {
    bool ok = false;
    const int v = userLocale().toInt(text.trimmed(), &ok);
    if (!ok || v < -32768 || v > 32767) return false;
    value = v;
    return true;
}

} // namespace shell
