#pragma once

// Each terminal takes one descriptor of the process, and the process has a
// limit of them. The limit starts low on most systems (1024) while the
// administrator may allow more (the hard limit); the server raises it as
// far as allowed and keeps room under it for itself.

// Raises the soft limit of open descriptors to the hard limit; returns the
// soft limit now in force.
long raiseDescriptorLimit();

// Terminals served at once by default under that limit: the rest is left for
// the database files and attachments, the threads' event loops, the window
// and terminals being refused.
int defaultMaxClients(long descriptorLimit, int workers);
