#pragma once

class PanelHost;

// The Batch command: asks for the batch in the Batch dialog, runs it as a background job with
// the progress window and Abort, and shows its summary. Nothing happens while a job runs.
void RunBatchCommand(PanelHost& host);
