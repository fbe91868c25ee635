#include "line_server/line/LineLog.h"

Q_LOGGING_CATEGORY(lineLog, "orvane.line", QtInfoMsg)
