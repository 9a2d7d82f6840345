// The event loop's callbacks: connections opened and closed, requests read,
// refused when malformed or ambiguous, and routed to a page, a static file,
// a redirect or an error; the end of each request, logged.
#pragma once

#include <microhttpd.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace halvane::serve {

// The address of `sa` as text ("127.0.0.1", "::1"), its port into `port`.
std::string AddressText(const sockaddr* sa, std::uint16_t* port);

// For MHD_start_daemon, each with a Context* as its closure.
MHD_Result OnRequest(void* cls, MHD_Connection* c, const char* url, const char* method, const char* version,
                     const char* upload_data, std::size_t* upload_data_size, void** con_cls);
void OnCompleted(void* cls, MHD_Connection* c, void** con_cls, MHD_RequestTerminationCode code);
void* OnUri(void* cls, const char* uri, MHD_Connection* c);
void OnConnection(void* cls, MHD_Connection* c, void** socket_context, MHD_ConnectionNotificationCode code);

}  // namespace halvane::serve
