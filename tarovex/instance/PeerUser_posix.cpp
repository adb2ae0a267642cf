#include "tarovex/instance/PeerUser.h"

#include <sys/socket.h>
#include <unistd.h>

namespace tarovex {

bool peerIsThisUser(qintptr descriptor) {
#ifdef SO_PEERCRED
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
#else
    uid_t uid = 0;
    gid_t gid = 0;
    return ::getpeereid(int(descriptor), &uid, &gid) == 0 && uid == ::geteuid();
#endif
}

} // namespace tarovex
