// Placeholder unit until this folder's code lands.
