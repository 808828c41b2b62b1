// The "Form hkl" dialog: the d range and the phases whose reflection lists are formed.
#pragma once

// DialogOk = 0 after Cancel.
void FormHklSet();
