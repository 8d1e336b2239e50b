// Placeholder until the simulated room device lands.
