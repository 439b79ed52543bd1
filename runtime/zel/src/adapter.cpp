// The adapter list over getifaddrs. getifaddrs reports one record per
// (interface, address) pair; records are grouped by interface in the order
// interfaces first appear, and each interface's IPv4 records become its
// address entries in the order reported. An interface with only a link-layer
// or IPv6 address is listed with no IPv4 entry.
#include <zel/zel.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <new>

namespace {

ZEL_ADAPTER_S* FindOrAppend(ZEL_ADAPTER_S** head, const char* name, bool* failed) {
  ZEL_ADAPTER_S** tail = head;
  for (ZEL_ADAPTER_S* a = *head; a != nullptr; a = a->next) {
    if (std::strncmp(a->name, name, sizeof(a->name)) == 0) return a;
    tail = &a->next;
  }
  auto* adapter = new (std::nothrow) ZEL_ADAPTER_S{};
  if (adapter == nullptr) {
    *failed = true;
    return nullptr;
  }
  const std::size_t length = ::strnlen(name, sizeof(adapter->name) - 1);
  std::memcpy(adapter->name, name, length);  // zero-filled: stays terminated
  adapter->index = ::if_nametoindex(name);
  *tail = adapter;
  return adapter;
}

bool AppendIPv4(ZEL_ADAPTER_S* adapter, const sockaddr* address, const sockaddr* mask) {
  auto* entry = new (std::nothrow) ZEL_IPADDR_S{};
  if (entry == nullptr) return false;
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  ::inet_ntop(AF_INET, &in->sin_addr, entry->address, sizeof(entry->address));
  if (mask != nullptr && mask->sa_family == AF_INET) {
    const auto* m = reinterpret_cast<const sockaddr_in*>(mask);
    ::inet_ntop(AF_INET, &m->sin_addr, entry->mask, sizeof(entry->mask));
  } else {
    std::strcpy(entry->mask, "0.0.0.0");
  }
  ZEL_IPADDR_S** tail = &adapter->ip_list;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = entry;
  return true;
}

}  // namespace

extern "C" int ZEL_GetAdapterInfo(ZEL_ADAPTER_S** list) {
  if (list == nullptr) {
    errno = EINVAL;
    return -1;
  }
  *list = nullptr;
  ifaddrs* all = nullptr;
  if (::getifaddrs(&all) != 0) return -1;
  ZEL_ADAPTER_S* head = nullptr;
  bool failed = false;
  for (const ifaddrs* i = all; i != nullptr && !failed; i = i->ifa_next) {
    if (i->ifa_name == nullptr) continue;
    ZEL_ADAPTER_S* adapter = FindOrAppend(&head, i->ifa_name, &failed);
    if (adapter == nullptr) break;
    if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET) {
      if (!AppendIPv4(adapter, i->ifa_addr, i->ifa_netmask)) failed = true;
    }
  }
  ::freeifaddrs(all);
  if (failed) {
    ZEL_FreeAdapterInfo(head);
    errno = ENOMEM;
    return -1;
  }
  *list = head;
  return 0;
}

extern "C" void ZEL_FreeAdapterInfo(ZEL_ADAPTER_S* list) {
  while (list != nullptr) {
    ZEL_ADAPTER_S* next = list->next;
    ZEL_IPADDR_S* entry = list->ip_list;
    while (entry != nullptr) {
      ZEL_IPADDR_S* following = entry->next;
      delete entry;
      entry = following;
    }
    delete list;
    list = next;
  }
}
