// Name resolution and numeric addresses over getaddrinfo and inet_pton.
// Windows' resolver, asked without hints, lists each address once; POSIX
// lists it once per socket type (stream, datagram, raw). Asking for the
// stream type alone gives the Windows shape. Families come out in Windows'
// numbering (2 and 23), which callers test for.
#include <zel/zel.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <new>
#include <sys/socket.h>

extern "C" int ZEL_GetAddressInfo(const char* host, const char* service, const ZEL_ADDRINFO_S* hints,
                                  ZEL_ADDRINFO_S** result) {
  if (result == nullptr) return EAI_FAIL;
  *result = nullptr;
  if (host == nullptr && service == nullptr) return EAI_NONAME;
  addrinfo want{};
  want.ai_socktype = SOCK_STREAM;
  want.ai_family = AF_UNSPEC;
  if (hints != nullptr) {
    if (hints->family == ZEL_AF_INET) want.ai_family = AF_INET;
    else if (hints->family == ZEL_AF_INET6) want.ai_family = AF_INET6;
  }
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host, service, &want, &found);
  if (rc != 0) return rc;
  ZEL_ADDRINFO_S* head = nullptr;
  ZEL_ADDRINFO_S** tail = &head;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_addr == nullptr) continue;
    ZEL_ADDRINFO_S record{};
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      record.family = ZEL_AF_INET;
      record.addrlen = 4;
      std::memcpy(record.addr, &in->sin_addr, 4);
    } else if (a->ai_family == AF_INET6 && a->ai_addrlen >= sizeof(sockaddr_in6)) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
      record.family = ZEL_AF_INET6;
      record.addrlen = 16;
      std::memcpy(record.addr, &in6->sin6_addr, 16);
    } else {
      continue;
    }
    auto* node = new (std::nothrow) ZEL_ADDRINFO_S(record);
    if (node == nullptr) {
      ::freeaddrinfo(found);
      ZEL_FreeAddressInfo(head);
      return EAI_MEMORY;
    }
    *tail = node;
    tail = &node->next;
  }
  ::freeaddrinfo(found);
  if (head == nullptr) return EAI_NODATA;
  *result = head;
  return 0;
}

extern "C" void ZEL_FreeAddressInfo(ZEL_ADDRINFO_S* list) {
  while (list != nullptr) {
    ZEL_ADDRINFO_S* next = list->next;
    delete list;
    list = next;
  }
}

extern "C" int ZEL_InetPton(const char* text, void* buffer) {
  if (text == nullptr || buffer == nullptr) return -1;
  // Parse into scratch first: the caller's buffer is written only on success.
  unsigned char scratch[16];
  if (::inet_pton(AF_INET, text, scratch) == 1) {
    std::memcpy(buffer, scratch, 4);
    return ZEL_AF_INET;
  }
  if (::inet_pton(AF_INET6, text, scratch) == 1) {
    std::memcpy(buffer, scratch, 16);
    return ZEL_AF_INET6;
  }
  return -1;
}
