#include "datalog/dataloglog.h"

Q_LOGGING_CATEGORY(lcDatalog, "cellscribe.datalog", QtWarningMsg)
