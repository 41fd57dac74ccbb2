#pragma once

#include <string>

// How the imitation client looks: a messenger window with a chat list and an open
// conversation, narrow enough for the application's default window width.
namespace orvi::test::pages {

std::string messengerStyle();

} // namespace orvi::test::pages
