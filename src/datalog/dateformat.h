#pragma once

#include <QString>

// Whether a date format names no time of day, AM/PM or zone: its text is then the same all day,
// and a time column completes it. (Such letters inside quotes only cost the caching.)
bool isDateOnlyFormat(const QString &format);
