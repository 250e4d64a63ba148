#include "tests/support/gui/LoopbackHttpServer.h"

namespace tomelet::testing {

TLoopbackHttpServer::TLoopbackHttpServer(int status, std::string reason) {
  const std::string body = "<html><head><title>Server says " + std::to_string(status) +
                           "</title></head><body>" + reason + "</body></html>";
  response_ = "HTTP/1.1 " + std::to_string(status) + " " + reason +
              "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nConnection: close\r\n\r\n" + body;
  service_ = g_threaded_socket_service_new(2);
  GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  GSocketAddress* address = g_inet_socket_address_new(loopback, 0);
  GSocketAddress* bound = nullptr;
  g_socket_listener_add_address(G_SOCKET_LISTENER(service_), address, G_SOCKET_TYPE_STREAM,
                                G_SOCKET_PROTOCOL_TCP, nullptr, &bound, nullptr);
  if (bound) {
    port_ = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
    g_object_unref(bound);
  }
  g_object_unref(address);
  g_object_unref(loopback);
  g_signal_connect(service_, "run", G_CALLBACK(Answer), this);
  g_socket_service_start(service_);
}

TLoopbackHttpServer::~TLoopbackHttpServer() {
  g_socket_service_stop(service_);
  g_socket_listener_close(G_SOCKET_LISTENER(service_));
  g_signal_handlers_disconnect_by_data(service_, this);
  g_object_unref(service_);
}

std::string TLoopbackHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

// Runs on a worker thread of the service: reads the request head, then sends the answer.
gboolean TLoopbackHttpServer::Answer(GThreadedSocketService*, GSocketConnection* connection,
                                     GObject*, gpointer self) {
  GDataInputStream* in =
      g_data_input_stream_new(g_io_stream_get_input_stream(G_IO_STREAM(connection)));
  for (;;) {
    gchar* line = g_data_input_stream_read_line(in, nullptr, nullptr, nullptr);
    const bool endOfHead = !line || line[0] == '\0' || (line[0] == '\r' && line[1] == '\0');
    g_free(line);
    if (endOfHead)
      break;
  }
  const std::string& response = static_cast<TLoopbackHttpServer*>(self)->response_;
  g_output_stream_write_all(g_io_stream_get_output_stream(G_IO_STREAM(connection)), response.data(),
                            response.size(), nullptr, nullptr, nullptr);
  g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
  g_object_unref(in);
  return TRUE;
}

}  // namespace tomelet::testing
