// Placeholder until the Qt front end lands.
