#pragma once

#include <QString>

// The target of a CheckAlive step.
struct CCheckAliveItem {
    int m_bCheckAlive = 0;  // 1: the step is a CheckAlive
    QString m_strIP;        // host text between "(" and ":"
    QString m_strPort;      // port text between ":" and ")"
};
