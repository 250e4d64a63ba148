// The status line and header block of a reply, written out as they go on the wire, so that a
// reply leaves in one gathered write of its head and its first body piece.
#pragma once

#include <string>

namespace tomelet::serve {

struct TSiteResponse;

// Replaces out's contents with the head of reply for an HTTP/1.<version % 10> client: the
// reply's own headers in their order, then Server, Date, Cache-Control "no-store" unless the
// reply has its own, Content-Length (none on 304), and the Connection header that version needs
// to keep the connection open or to close it. out keeps its capacity from reply to reply.
void WriteReplyHead(std::string& out, const TSiteResponse& reply, unsigned version, bool keepAlive);

}  // namespace tomelet::serve
