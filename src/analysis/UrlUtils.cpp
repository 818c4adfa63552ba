// Filled in by the issue that builds this unit.
