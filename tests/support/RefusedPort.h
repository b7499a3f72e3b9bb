#pragma once
// A loopback port that refuses every connection while the object lives: a socket bound to it that never listens, so
// no other program can take the port meanwhile.

#include <QByteArray>
#include <QtGlobal>

namespace ktest {

class RefusedPort {
public:
    RefusedPort();
    ~RefusedPort();
    RefusedPort(const RefusedPort&) = delete;
    RefusedPort& operator=(const RefusedPort&) = delete;

    bool isValid() const { return port_ != 0; }
    quint16 port() const { return port_; }
    QByteArray authority() const;   // "127.0.0.1:<port>"

private:
    int socket_ = -1;
    quint16 port_ = 0;
};

}  // namespace ktest
