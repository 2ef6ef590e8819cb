#include "recordingui/recordinguilog.h"

Q_LOGGING_CATEGORY(lcRecordingUi, "cellscribe.recordingui", QtWarningMsg)
