#include "DeviceHandler.h"

namespace devsim {

namespace {

// Whole decimal number, nothing else around it.
bool ReadNumber(const QByteArray& text, int& number)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    bool ok = false;
    number = text.toInt(&ok);
    return ok;
}

QByteArray ActionOf(const QList<QPair<QByteArray, QByteArray>>& params)
{
    for (const auto& [name, value] : params) {
        if (name == "action")
            return value;
    }
    return {};
}

} // namespace

QByteArray Reply::ToBytes(bool closeConnection) const
{
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    bytes += "Content-Type: text/plain\r\n";
    bytes += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    bytes += closeConnection ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    for (const auto& [name, value] : extraHeaders)
        bytes += name + ": " + value + "\r\n";
    bytes += "\r\n";
    bytes += body;
    return bytes;
}

Reply TextReply(int status, QByteArray reason, const QByteArray& text)
{
    Reply reply;
    reply.status = status;
    reply.reason = std::move(reason);
    reply.body = text + "\r\n\r\n";
    return reply;
}

Reply BadRequestReply(const QByteArray& why)
{
    Reply reply = TextReply(400, "Bad Request", "ERROR " + why);
    reply.close = true;
    return reply;
}

DeviceHandler::DeviceHandler(Authenticator& auth, PtzState& ptz)
    : m_auth(auth)
    , m_ptz(ptz)
{
}

Reply DeviceHandler::Handle(const HttpRequest& request)
{
    if (request.method != "GET") {
        Reply reply = TextReply(405, "Method Not Allowed", "ERROR only GET is served");
        reply.extraHeaders.append(qMakePair(QByteArray("Allow"), QByteArray("GET")));
        return reply;
    }
    if (!m_auth.Check(request)) {
        Reply reply = TextReply(401, "Unauthorized", "ERROR authentication required");
        for (const QByteArray& challenge : m_auth.Challenges())
            reply.extraHeaders.append(qMakePair(QByteArray("WWW-Authenticate"), challenge));
        return reply;
    }
    const QByteArray path = request.path();
    if (path == "/httpapi/SendPTZ")
        return HandlePtz(request);
    if (path == "/httpapi/SendReboot")
        return HandleReboot(request);
    if (path.startsWith("/httpapi/") && path.size() > 9)
        return TextReply(200, "OK", "OK");
    return TextReply(404, "Not Found", "ERROR no such path");
}

Reply DeviceHandler::HandlePtz(const HttpRequest& request)
{
    const auto params = SplitQuery(request.query());
    if (ActionOf(params) != "sendptz")
        return TextReply(400, "Bad Request", "ERROR action must be sendptz");

    // Work on a copy: a request with one bad parameter changes nothing.
    PtzState next = m_ptz;
    bool report = false;
    for (const auto& [name, value] : params) {
        if (name == "PTZ_GETPOSITION") {
            report = true;
        } else if (name == "PTZ_MOVE") {
            const qsizetype comma = value.indexOf(',');
            const QByteArray direction = comma < 0 ? value : value.left(comma);
            int steps = 1;
            if (comma >= 0 && !ReadNumber(value.mid(comma + 1), steps))
                return TextReply(400, "Bad Request", "ERROR bad PTZ_MOVE value " + value);
            if (!next.Move(direction, steps))
                return TextReply(400, "Bad Request", "ERROR bad PTZ_MOVE value " + value);
        } else if (name == "PTZ_PRESETSET") {
            int number = 0;
            if (!ReadNumber(value, number) || !next.SetPreset(number))
                return TextReply(400, "Bad Request", "ERROR bad PTZ_PRESETSET value " + value);
        } else if (name == "PTZ_PRESETGOTO") {
            int number = 0;
            if (!ReadNumber(value, number))
                return TextReply(400, "Bad Request", "ERROR bad PTZ_PRESETGOTO value " + value);
            if (!next.GotoPreset(number))
                return TextReply(404, "Not Found", "ERROR preset " + value + " not set");
        } else if (name == "PTZ_CHANNEL") {
            int channel = 0;
            if (!ReadNumber(value, channel) || channel < 1)
                return TextReply(400, "Bad Request", "ERROR bad PTZ_CHANNEL value " + value);
        }
        // Parameters the device does not know are ignored.
    }
    m_ptz = next;
    return TextReply(200, "OK", report ? m_ptz.PositionText() : QByteArray("OK"));
}

Reply DeviceHandler::HandleReboot(const HttpRequest& request)
{
    if (ActionOf(SplitQuery(request.query())) != "reboot")
        return TextReply(400, "Bad Request", "ERROR action must be reboot");
    Reply reply = TextReply(200, "OK", "OK rebooting");
    reply.reboot = true;
    reply.close = true;
    return reply;
}

} // namespace devsim
