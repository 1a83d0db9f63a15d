// Placeholder unit until the main window lands.
