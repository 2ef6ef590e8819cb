#include "dialogs/dialogslog.h"

Q_LOGGING_CATEGORY(lcDialogs, "cellscribe.dialogs", QtWarningMsg)
