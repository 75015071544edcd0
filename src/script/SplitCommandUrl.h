#pragma once

#include <QString>

// Decides whether a script line is an HTTP command ("http://" or "https://"
// ... "httpapi") and cuts it into host, port and request target. Returns 0
// and assigns the three outputs when it is, -1 (outputs untouched) when it is
// not. pHttps, when given, is set with the outputs: true when the line is an
// https command.
int SplitCommandUrl(QString strLine, QString& strHost, QString& strPort, QString& strUri, bool* pHttps = nullptr);
