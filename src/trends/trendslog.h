#pragma once

#include <QLoggingCategory>

// Debug lines are off by default; turn them on with QT_LOGGING_RULES.
Q_DECLARE_LOGGING_CATEGORY(lcTrends)
