// The game module's one entry: its module body, run once by the process entry.
#pragma once

namespace game {
void main();
}
