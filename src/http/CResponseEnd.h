#pragma once

// Decides whether the bytes received so far hold a complete response, so that
// the reader stops without waiting for more. A response is complete when:
//  - its body holds the end mark (LF CR LF after the blank line that ends the
//    head, at an offset of 1 or more), read as text up to the first NUL;
//  - the body that Content-Length announced has fully arrived;
//  - the last chunk and the trailer of a chunked body have arrived;
//  - the status is 204 or 304, which have no body, and the head is complete.
// Otherwise only the peer closing it, or the wait running out, ends it.
class CResponseEnd
{
public:
    static bool IsComplete(const char* pData, int nLength);

    // The end mark alone (the first of the conditions above).
    static bool HasEndMark(const char* pData, int nLength);

    // Whether the chunked body at pBody holds its last chunk and trailer.
    static bool IsChunkedBodyComplete(const char* pBody, int nLength);
};
