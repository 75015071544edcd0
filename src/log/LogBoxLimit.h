#pragma once

#include <QtGlobal>

// The log box keeps only what fits under its text limit: a line that would
// bring the box's text to the limit or past it empties the box first, and
// goes in alone.
inline bool LogBoxEmptiesBefore(qint64 nBoxLength, qint64 nLineLength, qint64 nLimit)
{
    return nBoxLength + nLineLength >= nLimit;
}
