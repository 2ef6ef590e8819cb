#pragma once

#include <QLoggingCategory>

// Debug lines are off by default; QT_LOGGING_RULES="cellscribe.processing.debug=true" turns them
// on.
Q_DECLARE_LOGGING_CATEGORY(lcProcessing)
