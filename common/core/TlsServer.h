#pragma once

#include <QTcpServer>

// A listener whose connections come, where it is told to encrypt, as QSslSockets
// not yet encrypted, so that their owner can look at what the peer sends first
// before it starts the handshake; otherwise as the plain QTcpSockets of QTcpServer.
class TlsServer : public QTcpServer
{
    Q_OBJECT

public:
    using QTcpServer::QTcpServer;

    void setEncrypting(bool encrypting) { m_encrypting = encrypting; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    bool m_encrypting = false;
};
