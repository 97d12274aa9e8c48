#pragma once

// Start-up of the model library. The application calls initialize() after the
// command line is parsed and before any window exists, and deinitialize()
// after its event loop has returned.
namespace Model {

// Brings the library up once, in an order that every step relies on: the
// resources, the alpha tables, the shared cursors, the stored preferences,
// the tools (which read the preferences) and the actions (which read both).
// A second call while up does nothing.
void initialize();

// Marks the library as down. Destroys nothing: the singletons live until the
// process's static objects go.
void deinitialize();

bool isInitialized();

} // namespace Model
