#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Reads one HTTP/1.1 response as its bytes arrive, in pieces of any size, and
// says when it is complete. The framing decides (RFC 9112 section 6.3):
//  - interim responses (1xx) are skipped; 204 and 304 end with their head;
//  - chunked transfer coding ends after the last chunk and its trailer;
//  - Content-Length ends after that many body bytes;
//  - a response without framing ends when the device closes the connection,
//    or at once when its body holds the end mark (LF CR LF at an offset of 1
//    or more, read as text up to the first NUL byte).
// Memory stays bounded whatever the size of the body: the head is kept whole
// (up to kMaxHead bytes), of the body only the first bytes the caller asked
// to keep, after chunked decoding; the rest is counted and dropped.
class CResponseParser
{
public:
    static constexpr int kMaxHead = 102400;

    enum class EState { Head, Body, Done, Invalid };

    explicit CResponseParser(int nKeepBody = 4096);

    // Takes the next bytes. Returns how many belong to this response; bytes
    // after its end are not taken (and not kept).
    std::int64_t Feed(const char* pData, std::int64_t nLength);

    // The device ended the connection in an orderly way (FIN, close_notify):
    // a response without framing is complete with it.
    void PeerClosed();

    EState State() const { return m_state; }
    bool IsComplete() const { return m_state == EState::Done; }
    bool IsInvalid() const { return m_state == EState::Invalid; }
    // Nothing of the response has come yet (interim responses aside).
    bool IsEmpty() const { return m_nTotal == 0; }

    // Status of the final response once its status line was read; -1 before.
    int Status() const { return m_nStatus; }
    // The head of the final response: status line, fields and blank line.
    const QByteArray& Head() const { return m_head; }
    // The first body bytes (decoded from chunks), at most nKeepBody of them.
    const QByteArray& Body() const { return m_body; }
    // Body bytes in all (decoded), and the announced length or -1.
    std::int64_t BodyBytes() const { return m_nBody; }
    std::int64_t ContentLength() const { return m_nContentLength; }
    bool IsChunked() const { return m_framing == EFraming::Chunked; }
    // The response ended where its framing said (not at a close or mark).
    bool EndedByFraming() const { return m_state == EState::Done && m_bFramedEnd; }
    // What makes the response invalid, for the log ("not HTTP", ...).
    const QString& Problem() const { return m_strProblem; }
    // How far the response came, for the log: "(10 of 100 body bytes)".
    QString Progress() const;

    // The head and the kept body, as one response text.
    QByteArray Text() const { return m_head + m_body; }

private:
    enum class EFraming { None, Length, Chunked, UntilClose };
    enum class EChunk { Size, Data, DataEnd, Trailer };

    std::int64_t FeedHead(const char* pData, std::int64_t nLength);
    bool StartBody();
    std::int64_t FeedBody(const char* pData, std::int64_t nLength);
    std::int64_t FeedChunked(const char* pData, std::int64_t nLength);
    void KeepBody(const char* pData, std::int64_t nLength);
    void Fail(const QString& strProblem);
    void Finish(bool bFramedEnd);

    int m_nKeepBody;
    EState m_state = EState::Head;
    EFraming m_framing = EFraming::None;
    QByteArray m_head;
    QByteArray m_body;
    QByteArray m_line;  // chunk size or trailer line in progress
    int m_nStatus = -1;
    bool m_bStatusLineChecked = false;
    std::int64_t m_nTotal = 0;  // bytes taken for the final response
    std::int64_t m_nBody = 0;
    std::int64_t m_nContentLength = -1;
    std::int64_t m_nChunkLeft = 0;
    EChunk m_chunk = EChunk::Size;
    bool m_bFramedEnd = false;
    QString m_strProblem;
    // End mark of an unframed body: the text ends at the first NUL byte.
    bool m_bTextEnded = false;
    int m_nMarkMatched = 0;  // how much of LF CR LF has been seen
};
