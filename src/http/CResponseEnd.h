#pragma once

// Decides where a response ends in the bytes received so far, so that the
// reader stops without waiting for more. The message framing decides first:
//  - a status without a body (1xx, 204, 304) ends with its head;
//  - chunked transfer coding ends after the last chunk and its trailer;
//  - Content-Length ends after that many body bytes.
// Only a response without such framing (no length, a coding other than
// chunked, an unusable length) is ended by the end mark: LF CR LF in the body
// at an offset of 1 or more after the blank line that ends the head, read as
// text up to the first NUL. Otherwise only the peer closing it, or the wait
// running out, ends it.
class CResponseEnd
{
public:
    struct Decision
    {
        // Length of the complete response, or -1 while more is needed.
        int nLength = -1;
        // True when the framing decided (the length is then exact, and bytes
        // after it belong to no part of this response).
        bool bFramed = false;
    };

    static Decision Decide(const char* pData, int nLength);
    static bool IsComplete(const char* pData, int nLength) { return Decide(pData, nLength).nLength >= 0; }

    // Length of an interim (1xx) response's head at the start of the data,
    // once its blank line has come; 0 when the data does not start with a
    // complete interim response.
    static int InterimLength(const char* pData, int nLength);

    // The end mark alone.
    static bool HasEndMark(const char* pData, int nLength);

    // Bytes taken by a complete chunked body at pBody (chunks, last chunk and
    // trailer), or -1 while it is incomplete or not a chunked body.
    static int ChunkedBodyLength(const char* pBody, int nLength);
    static bool IsChunkedBodyComplete(const char* pBody, int nLength) { return ChunkedBodyLength(pBody, nLength) >= 0; }
};
