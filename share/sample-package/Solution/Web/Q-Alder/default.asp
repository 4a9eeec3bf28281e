<%@ Language=VBScript %>
<html><body><h1>Q-Alder 2.1.1.0</h1></body></html>
