// Filled in with the subsystem.
