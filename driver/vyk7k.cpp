// Placeholder until this library's code lands.
