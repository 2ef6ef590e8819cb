#include "i18n/i18nlog.h"

Q_LOGGING_CATEGORY(lcI18n, "cellscribe.i18n", QtWarningMsg)
