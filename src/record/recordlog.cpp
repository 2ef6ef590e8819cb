#include "record/recordlog.h"

Q_LOGGING_CATEGORY(lcRecord, "cellscribe.record", QtWarningMsg)
