#include "line_server/LineLog.h"

Q_LOGGING_CATEGORY(lineLog, "orvane.line", QtInfoMsg)
