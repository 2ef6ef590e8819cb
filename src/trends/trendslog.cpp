#include "trends/trendslog.h"

Q_LOGGING_CATEGORY(lcTrends, "cellscribe.trends", QtWarningMsg)
