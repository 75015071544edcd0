#pragma once

#include "ServerOptions.h"

#include <QString>

namespace devsim {

// Reads a PEM certificate file (the device's certificate, then any chain
// certificates) and a PEM private key (RSA, EC or DSA, unencrypted) that
// belongs to it into options. False, with the reason in error, otherwise.
bool LoadTlsIdentity(const QString& certificatePath, const QString& keyPath, ServerOptions& options,
    QString& error);

} // namespace devsim
