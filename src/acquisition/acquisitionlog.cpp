#include "acquisition/acquisitionlog.h"

Q_LOGGING_CATEGORY(lcAcquisition, "cellscribe.acquisition", QtWarningMsg)
