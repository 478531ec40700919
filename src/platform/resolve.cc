// Host resolution, the same on both backends: only the headers differ.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "platform/platform.h"

namespace platform {
namespace {

int Store(const void* address, std::size_t length, std::uint16_t port, PeerAddress* peer) {
  if (length > sizeof peer->bytes) return -1;
  std::memcpy(peer->bytes, address, length);
  peer->length = static_cast<int>(length);
  // sin_port and sin6_port lie at the same offset.
  reinterpret_cast<sockaddr_in*>(peer->bytes)->sin_port = htons(port);
  return 0;
}

const addrinfo* First(const addrinfo* list, int family) {
  while (list != nullptr && list->ai_family != family) list = list->ai_next;
  return list;
}

}  // namespace

int ResolveHost(const char* host, std::uint16_t port, PeerAddress* peer) {
  sockaddr_in dotted{};
  dotted.sin_family = AF_INET;
  dotted.sin_addr.s_addr = inet_addr(host);
  if (dotted.sin_addr.s_addr != INADDR_NONE) return Store(&dotted, sizeof dotted, port, peer);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0) return -1;
  // IPv4 first, so a name with both kinds of address connects as it always has.
  const addrinfo* chosen = First(found, AF_INET);
  if (chosen == nullptr) chosen = First(found, AF_INET6);
  const int result = chosen == nullptr ? -1 : Store(chosen->ai_addr, chosen->ai_addrlen, port, peer);
  freeaddrinfo(found);
  return result;
}

}  // namespace platform
