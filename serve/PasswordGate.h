// Who may read a password document: only a client that sends the document's password with HTTP
// Basic. Basic rather than a login page with a signed cookie: replicas stay stateless (no
// signing secret to share between them or to rotate), every client from curl to a browser can
// give it, and no page of the document has to be served before the password is checked.
// Basic sends the password in clear with every request: without TLS in front it is for trusted
// networks only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "serve/DocumentSite.h"

namespace tomelet::serve {

class TPasswordGate {
 public:
  // storedPassword is the document's own (its options record's); empty leaves the gate open.
  // realm is what the browser shows when it asks: whoever reaches the server sees it, so it is
  // the document's name and nothing read from inside the document.
  TPasswordGate(std::string storedPassword, std::string_view realm);

  bool IsOpen() const { return stored_.empty(); }
  // Whether a request with this Authorization value may be answered: always through an open
  // gate, else only with "Basic" credentials whose password (any user name) is the document's,
  // typed in UTF-8 or Windows-1252.
  bool Admits(std::string_view authorization) const;
  // The 401 answer to a request the gate does not admit. The same for every address, so it
  // tells nothing of what the document holds; no cache keeps it.
  TSiteResponse Challenge() const;

 private:
  std::string stored_;
  std::string challenge_;
};

// The password in a "Basic" Authorization value: what follows the first ":" of the decoded
// credentials; none when the value is not Basic or not valid base64 of "user:password".
std::optional<std::string> BasicPassword(std::string_view authorization);

}  // namespace tomelet::serve
