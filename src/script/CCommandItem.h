#pragma once

#include "CCheckAliveItem.h"
#include "SplitCommandUrl.h"
#include "CheckLines.h"

#include <QString>

#include <memory>

// One step of a parsed script. A step is exactly one of: HTTP command, Sleep,
// While, End, CheckAlive, or a no-op (a default record).
struct CCommandItem {
    int m_nSleepTime = 0;  // milliseconds; non-zero makes the step a Sleep
    int m_bNotHttp = 1;    // 0 only on a step that split as an HTTP command
    int m_bWhile = 0;
    int m_bEnd = 0;
    QString m_strIP;        // host of an HTTP command, as typed
    QString m_strPort;      // port text of an HTTP command; "80" ("443" for https) when none is named
    QString m_strUri;       // request target, from the character before "httpapi"
    bool m_bHttps = false;  // an HTTP command written with "https://"
    SUrlUserInfo m_userInfo;  // credentials written into the URL, for this step alone
    int m_nLine = 0;        // the script line the step came from, counted from 1
    CCheckAliveItem m_checkAlive;
    // The Expect and Capture lines under the step (an HTTP command or a
    // CheckAlive); null without any. Shared: copying a step stays cheap.
    std::shared_ptr<CStepChecks> m_pChecks;
};
