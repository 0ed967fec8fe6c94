# A Tk window with a label and a button, for wish.
label .status -text Connected
button .settings -text Settings
pack .status .settings -padx 8 -pady 8
