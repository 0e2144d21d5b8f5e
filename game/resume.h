// Saving the board as it is played, and putting it back. A round is saved after
// each of its swaps and when the program ends with it unsolved; a solved board
// removes the save. A new round replaces the save only from its first swap on.
// The menu offers the save ("Weiterspielen") while its motif is in the catalogue
// exactly as the board was cut from it.
#pragma once
#include <string>

struct TMotives;

// Turns saving on, into the state folder `folder` ("" keeps it off), for motifs of
// the folder `pictures` that the catalogue was built from: reads the save there and
// keeps it when it is whole and its motif unchanged, removes it otherwise. The
// last save reaches the disk when the program ends.
void StartBoardSaves(const std::string& folder, const std::u16string& pictures);
// Turns saving off again, once the last request is on the disk, and forgets the
// save and the board.
void StopBoardSaves();

// A saved board can be resumed.
bool HasResumableBoard();
// Cuts the saved board from its motif and puts every tile, the counters, the round's
// clock and the help level back, unshuffled. False (and the save removed) when the
// motif gives no picture.
bool ResumeSavedBoard();

// The motif a new board was cut from (the selection's choice).
void NoteBoardMotif(const TMotives& motif);
// A new round: it replaces the save from its first swap on.
void StartUnsavedRound();
// After a completed swap.
void SaveBoardAfterSwap();
// Writes the round's board now if it is saved (after a solve: removes the save).
void SaveBoard();

// The shuffle that follows a motif selection. A board resumed meanwhile (the
// selection was left into the menu, and "Weiterspielen" chosen there) stays as it
// was saved until the board screen has shown it.
void ShuffleAfterSelection();
// Every board screen pass says so.
void BoardScreenShown();
