#pragma once
// The exchange loop both client benchmarks time: SendRequest as the run
// engine measures it (the millisecond clock it logs) and on a fine clock.
#include "http/CHTTPLayer.h"
#include "platform/MonotonicClock.h"

#include <chrono>
#include <cstdio>
#include <vector>

// nCount exchanges for the target; false (with a message) when one fails.
inline bool TimeExchanges(CHTTPLayer& layer, const QByteArray& target, int nCount, std::vector<double>& layerMs,
                          std::vector<double>& layerFineMs)
{
    for (int i = 0; i < nCount; ++i) {
        QByteArray buffer(2048, '\0');
        int nLength = 2048;
        int nStatus = 0;
        const std::int64_t nStart = MonotonicMs();
        const auto start = std::chrono::steady_clock::now();
        const HRESULT hr = layer.SendRequest(target, buffer.data(), nLength, nStatus, "admin", "4719");
        const auto end = std::chrono::steady_clock::now();
        const std::int64_t nEnd = MonotonicMs();
        if (hr != S_OK || nStatus != 200) {
            std::fprintf(stderr, "exchange %d failed: %d, status %d %s\n", i, hr, nStatus,
                         (layer.TlsProblem() + layer.m_strLastError).toLocal8Bit().constData());
            return false;
        }
        layerMs.push_back(static_cast<double>(nEnd - nStart));
        layerFineMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return true;
}
