// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/sourceaddress.h"

#include <QString>

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

namespace korvane {

Result<SourceAddress> bindableSourceAddress(const std::string& text, int socketType)
{
    SourceAddress source;
    auto* in4 = reinterpret_cast<sockaddr_in*>(&source.address);
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&source.address);
    if (::inet_pton(AF_INET, text.c_str(), &in4->sin_addr) == 1) {
        in4->sin_family = AF_INET;
        source.length = sizeof(sockaddr_in);
        source.family = AF_INET;
    } else if (::inet_pton(AF_INET6, text.c_str(), &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        source.length = sizeof(sockaddr_in6);
        source.family = AF_INET6;
    } else {
        return Failure{"SourceAddress " + text + " is not an IP address"};
    }
    const int fd = ::socket(source.family, socketType | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return systemFailure("SourceAddress " + text, errno);
    }
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&source.address), source.length);
    const int error = errno;
    ::close(fd);
    if (bound != 0) {
        Failure failure = systemFailure({}, error);
        return Failure{"SourceAddress " + text +
                           " cannot be bound: " + QString::fromLocal8Bit(failure.reason).toStdString(),
                       error};
    }
    return source;
}

} // namespace korvane
