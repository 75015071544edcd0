#pragma once

#include "Authenticator.h"
#include "HttpRequest.h"
#include "PtzState.h"

#include <QByteArray>
#include <QList>
#include <QPair>

namespace devsim {

// What the device answers to one request. Bodies are short plain text and
// end with an empty line (CR LF CR LF), so a reader that waits for that mark
// instead of counting Content-Length is done as soon as the reply is in.
struct Reply {
    int status = 200;
    QByteArray reason = "OK";
    QList<QPair<QByteArray, QByteArray>> extraHeaders;
    QByteArray body;
    bool close = false;  // the connection ends after this reply
    bool reboot = false; // the device goes away after this reply

    // Status line, Content-Type, Content-Length, Connection, the extra
    // headers, the empty line and the body.
    QByteArray ToBytes(bool closeConnection) const;
};

// Builds a reply from a text: the text, then CR LF CR LF.
Reply TextReply(int status, QByteArray reason, const QByteArray& text);

// Reply to a request that could not be read; it always ends the connection.
Reply BadRequestReply(const QByteArray& why);

// The request paths of the device, all under /httpapi/:
//   SendPTZ?action=sendptz&...   PTZ_GETPOSITION=0, PTZ_MOVE=DIR[,N],
//                                PTZ_PRESETSET=N, PTZ_PRESETGOTO=N, PTZ_CHANNEL=N
//   SendReboot?action=reboot     "OK rebooting", then the device goes away
//   anything else under /httpapi/  "OK"
// Other paths get 404, other methods 405. With authentication on, a request
// without valid credentials gets 401, with one WWW-Authenticate header per
// challenge, whatever its path.
class DeviceHandler {
public:
    DeviceHandler(Authenticator& auth, PtzState& ptz);

    Reply Handle(const HttpRequest& request);

private:
    Reply HandlePtz(const HttpRequest& request);
    Reply HandleReboot(const HttpRequest& request);

    Authenticator& m_auth;
    PtzState& m_ptz;
};

} // namespace devsim
