#pragma once

// Fills the process-wide credentials from the user's registry key: 1 when
// both values were read.
int LoadCredentials();
// Writes the process-wide credentials to the user's registry key.
int SaveCredentials();
