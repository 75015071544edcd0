#pragma once

#include "CliOptions.h"

#include <QList>

// The options of variables and device lists (--variable, --variables-file,
// --devices, --jobs), appended to the option table in its order.
void AddFleetOptions(QList<CliOptionEntry>& table);

// The most devices --jobs lets run at once.
inline constexpr int kMaxFleetJobs = 1000;
