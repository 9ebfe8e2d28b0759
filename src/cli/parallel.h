// Runs independent jobs (the files of a folder) on several threads while
// printing as if they ran one after another: each job writes its messages
// into a console of its own, and each job's messages are handed on whole, in
// job order, as soon as that job and every job before it have finished. The
// printed text is therefore the same whatever the number of threads.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "convert/console.h"
#include "pdb/result.h"

namespace qv {

// The number of threads to use: `requested` when above 0 (a THREADS value),
// otherwise the number of cores, and at least 1.
unsigned ResolveThreadCount(unsigned requested);

// How a job ended: what the job returned, unless the runner failed it; the
// message then says why: "not enough memory" for an allocation failure, the
// exception's text for another exception, or "its messages could not be
// printed" when the sink threw.
using JobOutcome = Status;

// Job `index`: does its work, writes its messages to `console` (collecting,
// private to this job) and returns whether it succeeded, and if not why. Runs on any thread,
// at the same time as other jobs, so it must touch nothing shared without
// its own locking. An exception it throws fails the job: the messages it
// wrote so far are kept and an error saying why follows them.
using OrderedJob = std::function<Status(size_t index, Console& console)>;

// Receives the whole messages of job `index`. Called exactly once per job,
// in job order (0, 1, 2, ...), never by two threads at a time, from whichever
// thread completes the run of finished jobs. It should not throw; if it
// does, the job is failed as above and the run goes on.
using OrderedSink = std::function<void(size_t index, const std::string& messages)>;

// Runs jobs 0 to count-1 on up to `threads` threads (the calling thread is
// one of them; 0 counts as 1), each job once, and returns their outcomes by
// index once all have run and all their messages have been handed to `sink`.
// When fewer threads can be started than asked for, the jobs run on those
// that could. A job's messages are freed once handed on.
std::vector<JobOutcome> RunOrdered(size_t count, unsigned threads, const OrderedJob& job,
                                   const OrderedSink& sink);

}  // namespace qv
