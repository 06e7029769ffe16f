// Settings of the toolkit that must be made before it starts: called first thing in main().
#pragma once

// Scroll bars stay in view instead of appearing only under the mouse (the toolkit's overlay
// scroll bars), so that a long list shows at once that it scrolls and how far. A user's own
// setting of GTK_OVERLAY_SCROLLING is kept.
void PrepareToolkitEnvironment();
