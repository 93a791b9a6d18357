// Finding the ticket a plain `kinit` left behind.
#pragma once

#include <string>

namespace quillmot {

// The name of the default credential cache (as the machine's Kerberos library resolves it, from
// krb5.conf) when it holds a ticket's principal; empty otherwise, or when no Kerberos library is
// installed.
std::string default_ticket_cache();

}  // namespace quillmot
