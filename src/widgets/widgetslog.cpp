#include "widgets/widgetslog.h"

Q_LOGGING_CATEGORY(lcWidgets, "cellscribe.widgets", QtWarningMsg)
