// The text and caption of the station's error message boxes.

#include "app/ErrorBox.h"

namespace qv {

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back() > QChar(u'.')) {
        return message + u'.';
    }
    return message;
}

QString applicationTitle(const QString& executablePath) {
    QString name = executablePath.mid(executablePath.lastIndexOf(u'/') + 1);
    name.truncate(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    return name.left(1) + name.mid(1).toLower();
}

} // namespace qv
