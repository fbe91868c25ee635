#pragma once

// The line server's diagnostics go to its standard error; there is no log file.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lineLog)
