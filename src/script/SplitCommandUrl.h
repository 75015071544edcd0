#pragma once

#include <QString>

// Decides whether a script line is an HTTP command ("http://" ... "httpapi")
// and cuts it into host, port and request target. Returns 0 and assigns the
// three outputs when it is, -1 (outputs untouched) when it is not.
int SplitCommandUrl(QString strLine, QString& strHost, QString& strPort, QString& strUri);
