// Placeholder until the first real sources land; deleted then.
