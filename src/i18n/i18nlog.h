#pragma once

#include <QLoggingCategory>

// Debug lines are off by default; QT_LOGGING_RULES="cellscribe.i18n.debug=true" turns them on.
Q_DECLARE_LOGGING_CATEGORY(lcI18n)
