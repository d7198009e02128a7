#include "net/socket_error.h"

#include <netdb.h>

#include <cerrno>

#include "diag/log.h"

namespace srd {

namespace {

thread_local std::int32_t t_lastSocketError = 0;

struct ErrorName {
  std::int32_t code;
  const char* name;
};

// Exactly the codes the program names; the table is deliberately not completed from the standard.
constexpr ErrorName kErrorNames[] = {
    {6, "WSA_INVALID_HANDLE"},      {8, "WSA_NOT_ENOUGH_MEMORY"},  {87, "WSA_INVALID_PARAMETER"},
    {995, "WSA_OPERATION_ABORTED"}, {997, "WSA_IO_PENDING"},       {10004, "WSAEINTR"},
    {10013, "WSAEACCES"},           {10014, "WSAEFAULT"},          {10022, "WSAEINVAL"},
    {10024, "WSAEMFILE"},           {10035, "WSAEWOULDBLOCK"},     {10036, "WSAEINPROGRESS"},
    {10037, "WSAEALREADY"},         {10038, "WSAENOTSOCK"},        {10039, "WSAEDESTADDRREQ"},
    {10040, "WSAEMSGSIZE"},         {10041, "WSAEPROTOTYPE"},      {10042, "WSAENOPROTOOPT"},
    {10043, "WSAEPROTONOSUPPORT"},  {10044, "WSAESOCKTNOSUPPORT"}, {10045, "WSAEOPNOTSUPP"},
    {10046, "WSAEPFNOSUPPORT"},     {10047, "WSAEAFNOSUPPORT"},    {10048, "WSAEADDRINUSE"},
    {10049, "WSAEADDRNOTAVAIL"},    {10050, "WSAENETDOWN"},        {10051, "WSAENETUNREACH"},
    {10052, "WSAENETRESET"},        {10053, "WSAECONNABORTED"},    {10054, "WSAECONNRESET"},
    {10055, "WSAENOBUFS"},          {10056, "WSAEISCONN"},         {10057, "WSAENOTCONN"},
    {10058, "WSAESHUTDOWN"},        {10060, "WSAETIMEDOUT"},       {10061, "WSAECONNREFUSED"},
    {10064, "WSAEHOSTDOWN"},        {10065, "WSAEHOSTUNREACH"},    {10067, "WSAEPROCLIM"},
    {10091, "WSASYSNOTREADY"},      {10093, "WSANOTINITIALISED"},  {10101, "WSAEDISCON"},
    {10107, "WSASYSCALLFAILURE"},   {10109, "WSATYPE_NOT_FOUND"},  {11001, "WSAHOST_NOT_FOUND"},
    {11002, "WSATRY_AGAIN"},        {11003, "WSANO_RECOVERY"},     {11004, "WSANO_DATA"},
};
static_assert(sizeof(kErrorNames) / sizeof(kErrorNames[0]) == 48);

}  // namespace

std::int32_t SocketErrorFromErrno(int e) {
  switch (e) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10038;  // an invalid socket handle, as Windows reports it
    case EACCES:
      return 10013;
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case ENFILE:
      return 10024;
    case EAGAIN:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
      return 10055;
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case EPIPE:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    case EUSERS:
      return 10068;
    case EDQUOT:
      return 10069;
    case ESTALE:
      return 10070;
    case EREMOTE:
      return 10071;
    default:
      return 10107;  // no counterpart: a system call failed that should not have
  }
}

std::int32_t SocketErrorFromAddrInfo(int eaiCode) {
  switch (eaiCode) {
    case 0:
      return 0;
    case EAI_NONAME:
      return 11001;
    case EAI_AGAIN:
      return 11002;
    case EAI_FAIL:
      return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;
#endif
    case EAI_ADDRFAMILY:
      return 11004;  // the name exists but has no IPv4 address
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return SocketErrorFromErrno(errno);
    default:
      return 11003;
  }
}

std::int32_t SocketErrorFromHostError(int hErrno) {
  switch (hErrno) {
    case 0:
      return 0;
    case HOST_NOT_FOUND:
      return 11001;
    case TRY_AGAIN:
      return 11002;
    case NO_RECOVERY:
      return 11003;
    case NO_DATA:
      return 11004;
    default:
      return 11003;
  }
}

std::int32_t LastSocketError() {
  return t_lastSocketError;
}

void SetLastSocketError(std::int32_t code) {
  t_lastSocketError = code;
}

void SetLastSocketErrorFromErrno() {
  t_lastSocketError = SocketErrorFromErrno(errno);
}

const char* SocketErrorName(std::int32_t code) {
  // The table is sorted by code: search by halving.
  std::size_t low = 0;
  std::size_t high = sizeof(kErrorNames) / sizeof(kErrorNames[0]);
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (kErrorNames[mid].code == code) {
      return kErrorNames[mid].name;
    }
    if (kErrorNames[mid].code < code) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return "";
}

void ReportSocketError(const char* label) {
  const std::int32_t code = LastSocketError();
  LogReport("skIO:ERROR %s (%s/%x/%d)", label, SocketErrorName(code), static_cast<unsigned>(code), code);
}

}  // namespace srd
