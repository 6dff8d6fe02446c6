#pragma once

#include <QString>

// A test certificate authority and a server certificate for 127.0.0.1 and localhost signed by it,
// made with the openssl command line into a folder:
//   ca.pem, ca.key          the authority (trust ca.pem through VELMORA_EXTRA_CA_CERTS)
//   server.pem, server.key  the server's certificate and key
// Returns false and sets error when openssl is missing or fails.
bool makeCertificates(const QString &folder, QString *error);

// True when the folder already holds the server's certificate and key.
bool haveCertificates(const QString &folder);
