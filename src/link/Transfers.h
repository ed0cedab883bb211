#pragma once
// Reading a program and the status block from the connected amplifier, block by block.
//
// Each request clears the block's `received` byte, sends the request with SendCommand and,
// once the request has left the wire, gives the reply a short while (49 waits of at least
// 1 ms, the interface kept alive, ended early by the reply); the caller then looks at
// `received`. The amplifier answers request 230 + k with reply 230 + k
// carrying block k of the program asked for, and request 239 with the status block.

#include <functional>

namespace talvo {

class Link;

inline constexpr int kRunningProgram = 100;  // `data 1` of a block request: the program running now

// Block k (1..8) of program n (1..20: a memory slot; 100: the running program).
void RequestBlock(Link &link, int k, int n);
// The status block (block 9).
void RequestStatus(Link &link);
// The connect procedure's read-out of the running program: blocks 1..8 and the status block,
// each missing one asked for again, with the progress bar at 0, 10, 15, 20, 30 ... 80, 85.
// The blocks are in state().reply.programBlocks afterwards, `received` telling which came.
// `stop`, when given, is looked at after every wait: once it holds, nothing more is asked for
// and the read-out returns (the blocks not yet asked for stay not received).
void ReadLiveProgram(Link &link, const std::function<bool()> &stop = {});

}  // namespace talvo
