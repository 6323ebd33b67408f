// The text and caption of the station's error message boxes.

#pragma once

#include <QString>

namespace qv {

// The text an error message box shows: the message, closed with "." unless it is empty or
// already ends in a character that sorts at or before "." (such as "!" or ".").
QString errorBoxText(const QString& message);

// The application title, the caption of the station's message boxes: the executable's file
// name without its folder, cut at its first ".", every character after the first lower-cased.
QString applicationTitle(const QString& executablePath);

} // namespace qv
