#pragma once
// The virtual driver's pseudo-terminals and their COMn links in the port
// folder: the port it serves, and the tap a listener reads.

#include <string>

// A new pseudo-terminal whose slave side is raw before anyone opens it: no
// echo, no line editing, no translation of 0x0D or 0x11. master is
// non-blocking; slave is the open slave side, for the caller to keep (the
// settings hold while the master is open either way). Both close on exec.
bool OpenRawPty(int& master, int& slave, std::string& path);

// A COMn link to a pseudo-terminal, made by this process. A link left by a
// dead simulator is taken over; a link to anything else is never touched.
class CComLink {
public:
    // comNumber > 0 links COMn; 0 the lowest free number that no serial
    // device present answers to. False when no link could be made.
    bool Make(const std::string& target, int comNumber);
    // Removes the link, as long as it is still ours.
    void Remove();

    std::string Path() const { return m_strLink; } // "" without a link
    int Number() const { return m_nCom; }          // -1 without a link

private:
    bool Take(const std::string& folder, int n);

    std::string m_strTarget, m_strLink, m_strOwnerFile;
    int m_nCom = -1;
};
