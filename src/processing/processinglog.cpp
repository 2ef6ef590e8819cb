#include "processing/processinglog.h"

Q_LOGGING_CATEGORY(lcProcessing, "cellscribe.processing", QtWarningMsg)
