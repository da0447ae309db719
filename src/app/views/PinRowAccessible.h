#pragma once

namespace skyloom::app {

// Makes the pin list's rows reachable by screen readers: each row is a list
// item named after its folder, with its second line as description, and
// holds its buttons ("다시 허용", show in the file manager, unpin) as push
// buttons that can be pressed. The rows are painted, not widgets, so Qt's own
// list interface would expose neither. Installed once per process.
void installPinListAccessibility();

} // namespace skyloom::app
