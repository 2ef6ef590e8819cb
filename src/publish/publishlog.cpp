#include "publish/publishlog.h"

Q_LOGGING_CATEGORY(lcPublish, "cellscribe.publish", QtWarningMsg)
