// The worker threads of the motif folder: the start-up pass, the catalogue and the
// carousel's decoding ahead all run on this one pool, made on first use.
#pragma once

class TWorkerPool;

TWorkerPool& MotifWorkers();
// Makes the pool anew with n threads (n < 1: one per core, capped). Call it only
// while no motif work runs (tests and benchmarks compare thread counts).
void SetMotifWorkerCount(int n);
