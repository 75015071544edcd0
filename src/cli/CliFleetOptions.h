#pragma once

#include "CliOptions.h"

#include <QList>

#include <cstddef>

// The options of variables and device lists (--variable, --variables-file,
// --devices, --jobs), appended to the option table in its order.
void AddFleetOptions(QList<CliOptionEntry>& table);

// The most devices --jobs lets run at once.
inline constexpr int kMaxFleetJobs = 10000;

// --shard K/N: 1 <= K <= N, in digits. False when it is not one.
bool ParseShard(const QString& strShard, int* pnIndex, int* pnCount);

// Whether the device on data row nRow (counted from 1) is in shard K of N:
// nRow modulo N is K - 1.
inline bool InShard(std::size_t nRow, int nIndex, int nCount)
{
    return nRow % std::size_t(nCount) == std::size_t(nIndex - 1);
}
