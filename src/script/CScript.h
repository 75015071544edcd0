#pragma once

#include "CCommandItem.h"
#include "CServerItem.h"
#include "CheckLines.h"

#include <QStringList>

#include <memory>
#include <vector>

// A parsed script: the steps in script order, the distinct servers in order
// of their first HTTP command, and the one repeat count of the While blocks.
struct CScript {
    std::vector<CCommandItem> m_vecCommands;
    std::vector<std::unique_ptr<CServerItem>> m_vecServers;
    int m_nWhileRepeatCount = -1;  // -1: the script has no While
    std::vector<CRequirement> m_vecRequirements;  // the Require lines, judged at the run's end
    std::vector<int> m_vecNotRequestLines;  // lines (from 1) that look like a request but are no HTTP command
    QStringList m_captureNames;  // the names the Capture lines take: their {{name}} is filled at send time
};
