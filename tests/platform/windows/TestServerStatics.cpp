// Lives in a static library linked into the test server, so its initialiser runs after the server's own.
#include <string>

std::string testServerStaticMarker = std::string("constructed"); // dynamic initialisation on purpose
