#include "serial/seriallog.h"

Q_LOGGING_CATEGORY(lcSerial, "cellscribe.serial", QtWarningMsg)
