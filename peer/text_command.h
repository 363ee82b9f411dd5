// One-line text commands ("DOWNLOAD 1234 nick \"remote name\" ..."): the
// first word, upper-cased, names the command; a word in double quotes may
// hold blanks. The main window's interpreter and the tarnctl console read
// them with these routines, so both take a line the same way.
//
// Also what a DOWNLOAD needs on this side: the Gnutella source a result's
// pseudo-nick names, and the local file name a remote name may safely
// become (peers choose remote names; none may reach outside the download
// folder or name a device).
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Words of a command line; "..." is one word without its quotes (an
// unclosed quote runs to the end of the line).
std::vector<std::string> SplitCommandWords(const std::string& line);
// The text after the first n words of a line, trimmed.
std::string CommandRest(const std::string& line, std::size_t n);
// A word as a whole decimal number; fallback for anything else.
int CommandInt(const std::string& word, int fallback);

// The dotted address of a Napster decimal address (the address's bytes in
// network order read as a little-endian number); "" for any other text.
std::string AddressFromNapsterDecimal(const std::string& decimal);
// The host (dotted) and file index named by a Gnutella result's pseudo-nick
// ("@#!GNUTELLA:" index ":" the host as Napster decimal); false for any
// other nick.
bool GnutellaSource(const std::string& nick, std::string& host, std::string& index);

// DOWNLOAD id nick "remote name" [host port index] and
// DOWNLOAD_GNUTELLA id nick "remote name" host port index.
struct TDownloadCommand {
  std::string ID;
  std::string Nick;
  std::string RemoteName;
  std::string Host;
  int Port = 0;
  std::string Index;
  bool Gnutella = false;  // DOWNLOAD_GNUTELLA, or a nick that names a Gnutella source
};
// Reads the command's words (the command word first). False when words
// are missing. A nick that names a Gnutella source makes it a Gnutella
// download from that host and index unless the words name others. The
// port and index words count by their digits ("6346x" is 6346); Port is 0
// when absent or past 65535 (the caller knows it from the result).
bool ParseDownloadCommand(const std::vector<std::string>& words, TDownloadCommand& out);
// The command line for a result; "" when the remote name cannot travel in
// one (it holds a double quote or a line break).
std::string MakeDownloadCommand(const std::string& id, const std::string& nick, const std::string& remoteName,
                                const std::string& host = "", int port = 0, const std::string& index = "");

// The local file name of a remote file: the last part of its path (the
// name decoded first when it is a disguised non-MP3 name), with every
// character a file name cannot hold turned into "_", trailing dots and
// blanks dropped, and device names ("CON", "LPT1.txt", ...) given a "_"
// in front. Never empty, never "." or "..".
std::string DownloadFileName(const std::string& remoteName);
// The first name of the form "name (2).ext", "name (3).ext", ... that is
// not taken (taken: by a file on disk, or by whatever else the caller
// counts, such as downloads that have not made their file yet): the name
// the file-exists question's Rename gives a download.
std::string FreeFileName(const std::string& path, const std::function<bool(const std::string&)>& taken);
